#include "shell/program.h"

int main(int argc, char** argv) { return pellary::runPelmon(argc, argv); }
