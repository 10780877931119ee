// "testeval FILE": evaluates every record of an EPD file lazily and fully, compares the full
// score with the colour-mirrored position's and reports the largest lazy-evaluation error.
#pragma once

void TestEval(const char* path);
