// Where no sound server is to be asked (Windows, the browser): nothing is reported.
#include "ServerLatency.h"

namespace sound {

struct ServerLatency::Connection {};

ServerLatency::ServerLatency() = default;
ServerLatency::~ServerLatency() = default;
bool ServerLatency::Start() { return false; }
void ServerLatency::Stop() {}

}  // namespace sound
