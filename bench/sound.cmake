# Opening ten minutes of stereo as WAV, FLAC and MP3, next to the bare decode.
pkg_check_modules(BENCH_SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(BENCH_MPG123 REQUIRED IMPORTED_TARGET libmpg123)
kestrelon_bench(sound_bench SOURCES sound_bench.cpp
  LIBS kestrelon_audio PkgConfig::BENCH_SNDFILE PkgConfig::BENCH_MPG123)
