kestrelon_fuzzer(fuzz_sound SOURCES fuzz_sound.cpp LIBS kestrelon_audio)
