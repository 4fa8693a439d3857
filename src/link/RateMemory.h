#pragma once

#include <map>
#include <string>
#include <vector>

namespace vantor {

// The line rate at which the instrument on each port last answered, for the
// whole process: every dialog's link and the command line share it, so a rate
// search starts where the instrument most likely is instead of spending
// seconds of silence at the rates where it is not. Thread-safe. A wrong
// entry is harmless: it only puts one rate that stays silent first.
using RateMemoryMap = std::map<std::string, int>;  // port name -> 4800, 19200 or 57600

// The rate remembered for the port, or 0 when none is.
int rememberedRate(const std::string& portName);
// Only the rates the search probes are kept; another rate forgets the port.
void rememberRate(const std::string& portName, int baud);
void forgetRememberedRates();

// The hook for keeping the memory between runs: what it holds now, and
// loading it again (entries with rates the search does not probe are dropped).
RateMemoryMap rememberedRates();
void setRememberedRates(const RateMemoryMap& rates);

// The rates to search, in the order to try them: the remembered one first,
// then the others of `usual` in their order.
std::vector<int> searchOrder(const std::string& portName, const std::vector<int>& usual);

}  // namespace vantor
