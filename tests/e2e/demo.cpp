#include "tests/e2e/demo.h"

int PlayDemo() { return 0; }
void ShowDemoResult() {}
