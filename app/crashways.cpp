#include "app/crashways.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <exception>

// Outside the anonymous namespace: with every class of the type in view, the
// optimiser would take the one overrider for the call's target and drop the call.
namespace CrashWays {
struct Shape
{
    Shape() { draw(this); }
    virtual ~Shape() = default;
    virtual void paint() = 0;
    [[gnu::noinline]] static void draw(Shape *shape)
    {
        // Through a pointer the optimiser cannot see: it would drop a call it knows is pure.
        Shape *volatile unseen = shape;
        unseen->paint();
    }
};

struct Square final : Shape
{
    void paint() override { }
};
} // namespace CrashWays

// Each way is a function of its own, never inlined, so that a report's frames
// name it.
namespace {
[[gnu::noinline]] void crashByAccessViolation()
{
    // Not null: the sanitizers of test builds would stop a null store themselves.
    volatile int *volatile target = reinterpret_cast<volatile int *>(std::uintptr_t(16));
    *target = 1;
}

[[gnu::noinline]] int crashByStackOverflow(volatile int depth)
{
    volatile char frame[1024];
    frame[0] = char(depth);
    if (depth < 0)
        return 0;
    return crashByStackOverflow(depth + 1) + frame[0];
}

[[gnu::noinline]] void crashByIllegalInstruction()
{
    __builtin_trap();
}

[[gnu::noinline]] void crashByAbort()
{
    std::abort();
}

[[gnu::noinline]] void crashByTerminate()
{
    std::terminate();
}

[[gnu::noinline]] void crashByPureVirtualCall()
{
    CrashWays::Square square;
}

[[gnu::noinline]] void crashByFatalMessage()
{
    qFatal("the crash test's fatal message");
}
} // namespace

void CrashWays::crash(const QString &way)
{
    if (way == QLatin1String("accessViolation"))
        crashByAccessViolation();
    else if (way == QLatin1String("stackOverflow"))
        crashByStackOverflow(0);
    else if (way == QLatin1String("illegalInstruction"))
        crashByIllegalInstruction();
    else if (way == QLatin1String("abort"))
        crashByAbort();
    else if (way == QLatin1String("terminate"))
        crashByTerminate();
    else if (way == QLatin1String("pureVirtualCall"))
        crashByPureVirtualCall();
    else if (way == QLatin1String("fatalMessage"))
        crashByFatalMessage();
}
