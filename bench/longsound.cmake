# Ten minutes of 44.1 kHz stereo at N = 1024: open, switch to the cepstrum view and
# import, synchronously and as worker tasks, with peak memory. Run one benchmark per
# process with bench/longsound.sh.
kestrelon_bench(bench_longsound SOURCES LongSound.cpp SpectralBenchSignal.h GuiBenchMain.cpp LIBS kestrelon_editing)
