#include "hushbank/hushbank.h"

int main(int argc, char** argv) { return pellary::hushbank::runHushbank(argc, argv); }
