# The splash screen's portable arithmetic: centring on the work area and the pixel buffer's size.
onefile_host_test(splash-placement-test "${PROJECT_SOURCE_DIR}/tests/core/SplashPlacementTest.cpp")
