// The controller without its scan loop, for tests of its database, rule and
// pattern members on an agent of the test's own.
#pragma once

#include "plugins/im/SystemIntegrityThread.h"

namespace OrvTest {

class Controller : public OrvPluginIm::CSystemIntegrityThread
{
public:
    explicit Controller(const OrvCore::CDom& dom) : CSystemIntegrityThread(dom) {}

protected:
    int OnRun() override { return 0; }
};

}  // namespace OrvTest
