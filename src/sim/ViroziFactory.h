#pragma once
// The terminal simulator as a component factory, shared by the native build (which has no
// provider component) and the simulator's COM server.
#include <memory>

#include "drivers/Ivirpay.h"

// True when VIROZI_SIM_CREATE=fail asks creation to fail as for an unregistered class.
bool ViroziSimulatorCreationRefused();

// A simulator instance; raises EMxError "Class not registered, ClassID: " + the class
// identifier when creation is refused, the text the system gives for that failure.
std::unique_ptr<Ivirpay> CreateViroziSimulator();
