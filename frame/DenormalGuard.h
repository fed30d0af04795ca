// Scoped floating-point environment for block processing: denormals flushed
// to zero, exceptions masked, rounding to nearest; the caller's setting comes
// back on destruction. One implementation file per processor family.
#pragma once

namespace Vst {

class DenormalGuard {
public:
    // On x86-64 this loads MXCSR with 0x9FC0 (FTZ, DAZ, all six exceptions masked, round to nearest).
    static constexpr unsigned kControlWord = 0x9FC0;

    DenormalGuard();
    ~DenormalGuard();
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    unsigned saved;
};

}  // namespace Vst
