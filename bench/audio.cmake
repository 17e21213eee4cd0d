kestrelon_bench(wav_bench SOURCES wav_bench.cpp LIBS kestrelon_audio)
