// Entry of every test program. Standard output is switched to binary mode so
// that Wine's console does not turn "\n" into "\r\n": ctest reads the list
// of test cases from it.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
