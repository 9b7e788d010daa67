#include "fixture.h"
TEST(Placeholder, Builds) { SUCCEED(); }
