# Ten minutes of 44.1 kHz stereo at N = 1024 through the commands the window runs (open,
# the cepstrum view, N, imports, an editor's saves, cancel, undo) and one hour of 48 kHz
# 24-bit stereo, with peak memory. Run one benchmark per process with bench/longsound.sh.
kestrelon_bench(bench_longsound SOURCES LongSound.cpp GuiBenchMain.cpp LIBS kestrelon_editing)
