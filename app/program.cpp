#include "app/entry.h"

int main() { return app::ProgramEntry(); }
