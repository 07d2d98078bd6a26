// A logic file that reaches for a widget; it must not build in a logic library.
#include <QWidget>

int probe() { return sizeof(QWidget) > 0 ? 0 : 1; }
