// CSystemIntegrityThread: construction, and the controller's connection to si.db.
#include "plugins/im/SystemIntegrityThread.h"

#include <sqlite3.h>

#include <cstdio>

#include "core/Log.h"
#include "plugins/im/SqlRows.h"
#include "plugins/im/SystemIntegrityDbSchema.h"

namespace OrvPluginIm {

namespace {
const char* const kSource = "plugins/im/SystemIntegrityThread";
}

const char* const CSystemIntegrityThread::s_Trace = "orp.im.ImThread";

CSystemIntegrityThread::CSystemIntegrityThread() : CSystemIntegrityThread(*OrvCore::CDom::This()) {}

CSystemIntegrityThread::CSystemIntegrityThread(const OrvCore::CDom& dom) : OrvCore::CRunnable(false, -1, false)
{
    SetDom(dom);
    m_vmsafeGuest = GetDom().GET<bool>("orv.mode.vmsafeGuest");
}

CSystemIntegrityThread::~CSystemIntegrityThread() { CloseSystemIntegrityDb(); }

bool CSystemIntegrityThread::OpenSystemIntegrityDb()
{
    if (!m_db) m_db.reset(new OrvCore::CSqliteDatabase(GetDom(), s_Trace));
    if (!OpenSystemIntegrityConnection(*m_db, GetDom(), s_Trace)) return false;
    if (!m_rulesWithoutEntities) {
        // The rules for which no current entity exists. The condition on the
        // entity is part of the join, so that a rule whose entities are all
        // history counts as having none.
        CSqlIntegrityRule rule;
        CSqlEntity entity;
        const wxString ruleId = rule.GetAttributeName(&rule.m_integrityRuleId);
        wxString sql = wxString::Format(
            "SELECT r.[%s],r.[%s] FROM [%ss] AS r LEFT JOIN [%ss] AS e ON e.[%s]=r.[%s] AND e.[%s] IS NULL "
            "WHERE e.[%s] IS NULL;",
            ruleId, rule.GetAttributeName(&rule.m_name), CSqlIntegrityRule::ElementName(), CSqlEntity::ElementName(),
            entity.GetAttributeName(&entity.m_integrityRuleId), ruleId, entity.GetAttributeName(&entity.m_supercededBy),
            entity.GetAttributeName(&entity.m_entityId));
        ORV_TRACE(s_Trace, kSource, "preparing %s", sql);
        m_rulesWithoutEntities.reset(new wxSQLite3Statement(m_db->Db().PrepareStatement(sql)));
    }
    return true;
}

void CSystemIntegrityThread::CloseSystemIntegrityDb()
{
    if (!m_db) return;
    m_rulesWithoutEntities.reset();
    m_db->Close();
    m_db.reset();
}

int CSystemIntegrityThread::TraceHandler(unsigned mask, void* /*context*/, void* p, void* /*x*/)
{
    if (mask == SQLITE_TRACE_STMT) {
        char* expanded = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(p));
        printf("IM SQL [%s]\n", expanded ? expanded : sqlite3_sql(static_cast<sqlite3_stmt*>(p)));
        sqlite3_free(expanded);
    } else if (mask == SQLITE_TRACE_CLOSE) {
        printf("IM DB CLOSE\n");
    }
    return 0;
}

}  // namespace OrvPluginIm
