kestrelon_fuzzer(fuzz_wav SOURCES fuzz_wav.cpp LIBS kestrelon_audio)
