#include "plugins/im/OnChangeEngine.h"

namespace OrvPluginIm {

const char* const COnChangeEngine::kRegistryKey = "orp.im.OnChangeEngine";

COnChangeEngine::~COnChangeEngine()
{
    if (m_registeredOn && Registered(*m_registeredOn) == this) m_registeredOn->SetNil(kRegistryKey);
}

void COnChangeEngine::RegisterOn(OrvCore::CDom& dom)
{
    dom.Set(kRegistryKey, static_cast<void*>(this));
    m_registeredOn.reset(new OrvCore::CDom(dom));
}

COnChangeEngine* COnChangeEngine::Registered(const OrvCore::CDom& dom)
{
    void* engine = nullptr;
    if (!dom.Get(kRegistryKey, engine)) return nullptr;
    return static_cast<COnChangeEngine*>(engine);
}

}  // namespace OrvPluginIm
