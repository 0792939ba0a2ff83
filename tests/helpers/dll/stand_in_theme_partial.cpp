// The stand-in theme library without its EndBufferedPaint export (see the .def).
#include "stand_in_theme.cpp"
