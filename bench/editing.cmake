# The editing core's commands on 60 s of 44.1 kHz 16-bit stereo at N = 1024: the whole
# apply path in both views, info, DrawSpectrum and export alone. The command line as a
# whole process is timed by cli_timing.sh.
kestrelon_bench(bench_editing SOURCES EditingBench.cpp SpectralBenchSignal.h GuiBenchMain.cpp LIBS kestrelon_editing)
