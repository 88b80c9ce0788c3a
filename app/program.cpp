#include "entry.h"

int main() { return ProgramEntry(); }
