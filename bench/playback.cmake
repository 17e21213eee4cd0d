# Playback through the program's player and audio output into a PulseAudio null sink,
# recorded from its monitor: tail lost and gaps per run. Needs a PulseAudio server; run it
# with bench/playback_tail.sh (never part of the tests).
add_executable(bench_playback_tail PlaybackTail.cpp)
target_link_libraries(bench_playback_tail PRIVATE kestrelon_app)
kestrelon_warnings(bench_playback_tail)
