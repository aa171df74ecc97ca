// The program under test with its screen grabs slowed down, so that end-to-end tests can act in
// the moment between asking for a capture and its overlays being up, as users on a slow machine
// or a 4K screen do. QUILLET_TEST_GRAB_MS gives the least time a grab takes; only this test
// program reads it.
#include "app/Main.h"
#include "capture/Grabber.h"

#include <QtGlobal>

int main(int argc, char** argv)
{
    quillet::Grabber::setMinimumGrabTimeForTesting(
        qEnvironmentVariableIntValue("QUILLET_TEST_GRAB_MS"));
    return quillet::runMain(argc, argv);
}
