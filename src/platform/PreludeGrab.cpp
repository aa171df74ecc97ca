#include "platform/PreludeGrab.h"

#include <QCursor>

namespace quillet {

namespace {

// No window system to ask: nothing is caught, and the pointer is where Qt last saw it.
class NullPreludeGrab final : public PreludeGrab {
public:
    bool start(Sink, PointerState& now) override
    {
        now = pointer();
        return false;
    }
    void releasePointer() override { }
    void releaseKeyboard() override { }
    void keyboardTaken() override { }
    void stop() override { }
    PointerState pointer() override { return {QCursor::pos(), false}; }
};

std::function<std::unique_ptr<PreludeGrab>()>& factory()
{
    static std::function<std::unique_ptr<PreludeGrab>()> f;
    return f;
}

} // namespace

std::unique_ptr<PreludeGrab> makePreludeGrab()
{
    if (factory()) {
        if (auto g = factory()())
            return g;
    }
    return std::make_unique<NullPreludeGrab>();
}

void setPreludeGrabFactory(std::function<std::unique_ptr<PreludeGrab>()> f)
{
    factory() = std::move(f);
}

} // namespace quillet
