#pragma once

#include <QIcon>

namespace quillet {

// The program's own icon (window icon, the about page): the installed theme icon when the
// desktop has one, otherwise a drawing of the scissors on an accent tile, crisp at any size.
QIcon applicationIcon();

} // namespace quillet
