#include "app/Main.h"

int main(int argc, char** argv)
{
    return quillet::runMain(argc, argv);
}
