#pragma once

namespace quillet {

// The program entry: parses the command line, hands over to a running instance or starts the
// resident program.
int runMain(int argc, char** argv);

} // namespace quillet
