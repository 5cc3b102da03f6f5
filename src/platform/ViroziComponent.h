#pragma once
// How CreateViroziComponent (drivers/Ivirpay.h) reaches the provider's component on this
// platform: through COM on Windows, the terminal simulator elsewhere.

namespace platform {

// True when components are created and called through COM, so the calling thread must
// have COM initialised.
bool ViroziComponentUsesCom();

}  // namespace platform
