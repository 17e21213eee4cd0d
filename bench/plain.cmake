# A plain FFTW program doing the work of a whole-picture cepstrum apply, the yardstick
# that bench/cli_timing.sh times beside kestrelon-cli.
add_executable(plain_fftw PlainFftw.cpp)
target_link_libraries(plain_fftw PRIVATE PkgConfig::FFTW3 Threads::Threads)
kestrelon_warnings(plain_fftw)
