// CIntegrityScanThread: the scanner's connection to si.db and its prepared statements.
#include "plugins/im/SystemIntegrityScannerThread.h"

#include "core/Log.h"
#include "plugins/im/SqlEntitySets.h"
#include "plugins/im/SqlRows.h"
#include "plugins/im/SystemIntegrityDbSchema.h"

namespace OrvPluginIm {

namespace {
const char* const kSource = "plugins/im/SystemIntegrityScannerThread";
const char* const kAttributeDigest = "sha1";
}  // namespace

const char* const CIntegrityScanThread::s_Trace = "orp.im.scanner";

CIntegrityScanThread::CIntegrityScanThread(const OrvCore::CDom& dom) : OrvCore::CRunnable(false, -1, false)
{
    SetDom(dom);
}

CIntegrityScanThread::~CIntegrityScanThread() { CloseSystemIntegrityDb(); }

std::vector<wxString> CIntegrityScanThread::BuildStatementTexts(const CSqlEntitySet& setRow)
{
    const CSqlAttribute a;
    const CSqlEntity e;
    const CSqlEntityAttribute ea;
    const CSqlRealtimeChange rc;
    const CSqlChangeDetail cd;
    const CSqlRealtimeChangeDetail rcd;
    const CSqlIntegrityEvent ev;
    const CSqlSubscan sub;

    const wxString attributes = CSqlAttributes::ElementName();
    const wxString entitys = CSqlEntitys::ElementName();
    const wxString entityAttributes = CSqlEntityAttributes::ElementName();
    const wxString realtimeChanges = CSqlRealtimeChanges::ElementName();
    const wxString changeDetails = CSqlChangeDetails::ElementName();
    const wxString realtimeChangeDetails = CSqlRealtimeChangeDetails::ElementName();

    const wxString aEntityId = a.GetAttributeName(&a.m_entityId), aName = a.GetAttributeName(&a.m_name),
                   aValue = a.GetAttributeName(&a.m_value);
    const wxString eEntityId = e.GetAttributeName(&e.m_entityId), eType = e.GetAttributeName(&e.m_entityType),
                   eSetId = e.GetAttributeName(&e.m_entitySetId), eRuleId = e.GetAttributeName(&e.m_integrityRuleId),
                   eKeyCanonical = e.GetAttributeName(&e.m_keyCanonical),
                   eSuperceded = e.GetAttributeName(&e.m_supercededBy);

    std::vector<wxString> texts(StmtCount);
    texts[StmtAttributeHash] =
        wxString::Format("SELECT HASH([%s], '%s') FROM (SELECT [%s] FROM [%s] WHERE [%s]=?1 ORDER BY [%s]);", aValue,
                         kAttributeDigest, aValue, attributes, aEntityId, aName);
    texts[StmtCopyAttributes] = wxString::Format(
        "INSERT INTO [%s] SELECT NULL AS [%s],?1 AS [%s],[%s],[%s],[%s],[%s] FROM [%s] where [%s]=?2", attributes,
        a.GetAttributeName(&a.m_attributeId), aEntityId, aName, aValue, a.GetAttributeName(&a.m_friendlyValue),
        a.GetAttributeName(&a.m_internalValue), attributes, aEntityId);
    texts[StmtDeleteEntity] = e.GetSQLDeleteStatement(entitys);
    texts[StmtDeleteRealtimeChanges] =
        wxString::Format("DELETE FROM [%s] WHERE [%s]=?1 AND [%s]=?2;", realtimeChanges,
                         rc.GetAttributeName(&rc.m_entityType), rc.GetAttributeName(&rc.m_keyCanonical));
    texts[StmtSameContent] = wxString::Format(
        "SELECT [%s] FROM [%s] WHERE [%s]<?1 AND [%s]=?2 AND [%s]=?3 AND [%s]=?4 AND ([%s]=0 OR [%s] ISNULL);",
        ea.GetAttributeName(&ea.m_entityId), entityAttributes, ea.GetAttributeName(&ea.m_entityId),
        ea.GetAttributeName(&ea.m_entityType), ea.GetAttributeName(&ea.m_name), ea.GetAttributeName(&ea.m_value),
        ea.GetAttributeName(&ea.m_supercededBy), ea.GetAttributeName(&ea.m_supercededBy));
    texts[StmtPreviousAwaiting] = wxString::Format(
        "SELECT * FROM [%s] WHERE [%s]<?1 AND [%s]=?2 AND [%s]=0 AND [%s]=?3 AND [%s]=?4 AND [%s]=?5 LIMIT 1;", entitys,
        eEntityId, eKeyCanonical, eSuperceded, eType, eSetId, eRuleId);
    texts[StmtCurrentVersions] = wxString::Format(
        "SELECT * FROM [%s] WHERE [%s]<?1 AND [%s]=?2 AND [%s] ISNULL AND [%s]=?3 AND [%s]=?4 AND [%s]=?5 ORDER BY "
        "[%s] DESC;",
        entitys, eEntityId, eKeyCanonical, eSuperceded, eType, eSetId, eRuleId, eEntityId);
    texts[StmtLiveVersions] = wxString::Format(
        "SELECT * FROM [%s] WHERE [%s]<?1 AND [%s]=?2 AND ( [%s] ISNULL OR [%s]>=0 ) AND [%s]=?3 AND [%s]=?4 AND "
        "[%s]=?5 ORDER BY [%s] ;",
        entitys, eEntityId, eKeyCanonical, eSuperceded, eSuperceded, eType, eSetId, eRuleId, eEntityId);
    texts[StmtAttributesOfVersion] =
        wxString::Format("SELECT * FROM [%s] WHERE [%s]=?1 ORDER BY [%s],[%s];", attributes, aEntityId, aName, aEntityId);
    texts[StmtAttributesOfTwoVersions] = wxString::Format(
        "SELECT * FROM [%s] WHERE [%s]=?1 OR [%s]=?2 ORDER BY [%s],[%s];", attributes, aEntityId, aEntityId, aName,
        aEntityId);
    texts[StmtOneAttribute] =
        wxString::Format("SELECT * FROM [%s] WHERE [%s]=?1 AND [%s]=?2;", attributes, aEntityId, aName);
    texts[StmtCurrentVersionAnySet] = wxString::Format("SELECT * FROM [%s] WHERE [%s]=?1 AND [%s]=?2 AND [%s] ISNULL;",
                                                       entitys, eType, eKeyCanonical, eSuperceded);
    const wxString rcKey = rc.GetAttributeName(&rc.m_keyCanonical), rcIds = rc.GetAttributeName(&rc.m_entitySetIds),
                   rcId = rc.GetAttributeName(&rc.m_realtimeChangeId), rcType = rc.GetAttributeName(&rc.m_entityType),
                   cdId = cd.GetAttributeName(&cd.m_realtimeChangeId),
                   cdLast = cd.GetAttributeName(&cd.m_whenChangedLast);
    texts[StmtChangedKeys] = wxString::Format(
        "SELECT DISTINCT %s.%s,%s.%s FROM %s INNER JOIN %s ON %s.%s=%s.%s WHERE %s.%s=?1 ORDER BY %s.%s",
        realtimeChanges, rcKey, realtimeChanges, rcIds, realtimeChanges, changeDetails, realtimeChanges, rcId,
        changeDetails, cdId, realtimeChanges, rcType, changeDetails, cdLast);
    texts[StmtChangeDetailsOfKey] = wxString::Format(
        "SELECT * FROM [%s] WHERE [%s]=?1 AND [%s]=?2 ORDER BY [%s] ASC;", realtimeChangeDetails,
        rcd.GetAttributeName(&rcd.m_entityType), rcd.GetAttributeName(&rcd.m_keyCanonical),
        rcd.GetAttributeName(&rcd.m_whenChangedFirst));
    texts[StmtResumeEntities] = wxString::Format(
        "SELECT * FROM [%s] NATURAL JOIN [%ss] WHERE [%s]>?1 AND [%s]>?2 AND [%s]=?3 ORDER BY [%s];", entitys,
        setRow.GetElementName(), eEntityId, eKeyCanonical, eType, eKeyCanonical);
    texts[StmtInsertAttribute] = a.GetSQLInsertStatement(attributes);
    texts[StmtInsertEntity] = e.GetSQLInsertStatement(entitys);
    texts[StmtInsertIntegrityEvent] = ev.GetSQLInsertStatement(CSqlIntegrityEvents::ElementName());
    texts[StmtStoreDigest] =
        wxString::Format("UPDATE [%s] SET [%s]=?1, [%s]=?2 WHERE [%s]=?3;", entitys,
                         e.GetAttributeName(&e.m_attributeHash), e.GetAttributeName(&e.m_whenScanned), eEntityId);
    texts[StmtUpdateEntity] = e.GetSQLUpdateStatement(entitys);
    texts[StmtUpdateSubscan] = sub.GetSQLUpdateStatement(CSqlSubscans::ElementName());
    return texts;
}

bool CIntegrityScanThread::OpenSystemIntegrityDb()
{
    if (!m_db) m_db.reset(new OrvCore::CSqliteDatabase(GetDom(), GetThreadName()));
    if (!OpenSystemIntegrityConnection(*m_db, GetDom(), s_Trace)) return false;
    std::unique_ptr<CSqlEntitySet> setRow(CreateEntitySetObject());
    if (!setRow) return false;
    std::vector<wxString> texts;
    for (int i = 0; i < StmtCount; ++i) {
        if (m_statements[i]) continue;
        if (texts.empty()) texts = BuildStatementTexts(*setRow);
        ORV_TRACE(s_Trace, kSource, "preparing %s", texts[i]);
        m_statements[i].reset(new wxSQLite3Statement(m_db->Db().PrepareStatement(texts[i])));
    }
    return true;
}

void CIntegrityScanThread::CloseSystemIntegrityDb()
{
    if (!m_db) return;
    for (auto& statement : m_statements) statement.reset();
    if (m_db->IsOpen()) {
        m_db->DumpMemoryStats(s_Trace, false);
        m_db->Close();
    }
    m_db.reset();
}

}  // namespace OrvPluginIm
