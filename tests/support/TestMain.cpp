// Entry of every test program. Standard output is switched to binary mode so
// that Wine's console does not turn "\n" into "\r\n": ctest reads the list
// of test cases from it. The engine's process-wide objects start as in the
// uninstaller: the resource extractor, then the localizer with the built-in
// English table that every test program carries.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <gtest/gtest.h>

#include "base/Localizer.h"
#include "base/ResourceExtractor.h"

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    testing::InitGoogleTest(&argc, argv);
    OstrelInstallEngine::ResourceExtractor::Init();
    OstrelInstallEngine::Localizer::Init();
    return RUN_ALL_TESTS();
}
