// Configuration access of CDom through the object model.
#include "core/Dom.h"
#include "core/XMLObject.h"

namespace OrvCore {

bool CDom::ConfigGetXml(const wxString& path, XMLObject& object) const
{
    // The tree stays valid while we hold it, even if a new document arrives.
    std::shared_ptr<const CXmlNode> root = ConfigRoot();
    const CXmlNode* element = root ? root->Find(path) : nullptr;
    if (element == nullptr) {
        object.SetToDefaults();
        ORV_TRACE("orv.config", "core/Dom.Config", "no configuration element %s", path);
        return false;
    }
    return object.FromXML(*element);
}

}  // namespace OrvCore
