# Painting on ten minutes of stereo: a one-second stroke applied, and redraws of a
# 1920 x 1080 view while zooming and scrolling.
kestrelon_bench(bench_paint SOURCES PaintBench.cpp SpectralBenchSignal.h GuiBenchMain.cpp LIBS kestrelon_editing)
