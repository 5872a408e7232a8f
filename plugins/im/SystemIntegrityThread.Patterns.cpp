// Pattern translation and search bases of the controller: key patterns become
// anchored extended regular expressions, and a set's base becomes the search
// base from which enumeration starts plus, when the base has wildcards, an
// expression for the base directories.
#include <wx/regex.h>

#include "core/Log.h"
#include "core/Text.h"
#include "plugins/im/SystemIntegrityScannerThread.h"
#include "plugins/im/SystemIntegrityThread.h"

namespace OrvPluginIm {

namespace {

const char* const kSource = "plugins/im/SystemIntegrityThread";
const int kMaxSubstitutions = 32;

// Directory components of path in format, empty pieces dropped; the volume
// (DOS drive or server) goes to volume.
wxArrayString SplitDirectories(const wxString& path, wxPathFormat format, wxString& volume)
{
    wxFileName name = wxFileName::DirName(path, format);
    volume = name.GetVolume();
    wxArrayString components;
    for (const wxString& dir : name.GetDirs())
        if (!dir.empty()) components.Add(dir);
    return components;
}

// The extended-syntax expressions of the search-base work, compiled once.
const wxRegEx& VariableReference()
{
    static wxRegEx* re = new wxRegEx("\\$\\{([^{}]+)}", wxRE_EXTENDED);
    return *re;
}

const wxRegEx& WildcardTest()
{
    static wxRegEx* re = new wxRegEx("(^[*?])|([^\\\\]+[*?])", wxRE_EXTENDED | wxRE_NOSUB);
    return *re;
}

}  // namespace

wxString CSystemIntegrityThread::PatternToRegEx(const wxString& pattern, wxPathFormat patternFormat, bool rooted,
                                                bool hierarchical) const
{
    if (!hierarchical) return wxString();
    if (pattern.empty() || pattern == "/") return "^$";
    if (pattern == "**" || pattern == "**/*" || pattern == "*/**") return ".*";

    const wxPathFormat host = CIntegrityScanThread::GetPathFormat(const_cast<CSystemIntegrityThread*>(this)->GetDom());
    const wxString S = wxFileName::GetPathSeparator(host);
    const wxString E = S == "\\" ? wxString("\\\\") : S;
    if (pattern == "**/") return "^([^" + E + "]*" + E + ")*$";

    wxString W = wxFileName::IsCaseSensitive(host) ? pattern : pattern.Lower();
    ORV_TRACE(s_Trace, kSource, "PatternToRegEx() - pattern is '%s'", W);

    while (W.Replace("**/**", "**") > 0) {
    }
    while (W.StartsWith("/")) W.Remove(0, 1);

    // The ending decides the suffix; the first ending that fits is cut off.
    wxString X;
    struct Ending
    {
        const char* text;
        int kind;  // 0 ".*", 1 "(E.*)*", 2 "([^E]*E)+"
    } const endings[] = {{"*/**", 0}, {"/**", 1}, {"/**/*", 1}, {"/**/", 2}, {"/**/*/", 2}};
    for (const Ending& ending : endings) {
        if (W.EndsWith(ending.text)) {
            W.RemoveLast(strlen(ending.text));
            X = ending.kind == 0 ? wxString(".*")
                : ending.kind == 1 ? "(" + E + ".*)*"
                                   : "([^" + E + "]*" + E + ")+";
            break;
        }
    }

    wxString volume;
    wxArrayString components =
        SplitDirectories(W + wxFileName::GetPathSeparator(patternFormat), patternFormat, volume);
    wxString R;
    if (!volume.empty()) {
        if (host != wxPATH_DOS) {
            R = volume + wxFileName::GetVolumeSeparator(host);
        } else if (rooted && pattern.StartsWith("\\\\")) {
            R = E + E + volume;
        } else {
            R = volume + wxFileName::GetVolumeSeparator(host);
        }
    }

    wxString previous;
    for (const wxString& component : components) {
        if (!R.empty() && previous != "**") R += E;
        if (component == "**") {
            R += "([^" + E + "]*" + E + ")*";
        } else {
            for (size_t i = 0; i < component.length(); ++i) {
                const wxUniChar c = component[i];
                switch (c.GetValue()) {
                    case '$':
                    case '(':
                    case ')':
                    case '.':
                    case '[':
                    case ']':
                    case '^':
                    case '{':
                    case '}':
                        R += '\\';
                        R += c;
                        break;
                    case '*': R += "([^" + E + "]*)"; break;
                    case '?': R += "([^" + E + "]{1})"; break;
                    case '\\':
                        // An escaped character is taken literally; a trailing backslash is dropped.
                        if (i + 1 < component.length()) {
                            R += '\\';
                            R += component[++i];
                        }
                        break;
                    default: R += c; break;
                }
            }
        }
        previous = component;
    }

    if (rooted) {
        R += "(" + E + ".+)?";
        if (wxFileName::GetVolumeSeparator(host).empty() && !R.StartsWith(E)) R = E + R;
    } else if (W.EndsWith("/")) {
        R += E;
    }
    wxString result = "^" + R + X + "$";
    ORV_TRACE(s_Trace, kSource, "                   regex is '%s'", result);
    return result;
}

bool CSystemIntegrityThread::PopulateSearchBaseInfo(int ruleId, const wxString& ruleName, const wxString& base,
                                                    bool validate, bool report, const Setter& setDirectory,
                                                    const Setter& setSearchBase, const Setter& setRegEx)
{
    OrvCore::CDom& dom = GetDom();
    setDirectory(base);

    // Report texts: "${" is broken up so the HUB's templates do not expand it.
    wxString baseText = OrvCore::ReplaceBars(base);
    baseText.Replace("${", wxString("$") + wxUniChar(0xA0) + "{");
    const wxString ruleText = OrvCore::ReplaceBars(ruleName);

    wxString W = base;
    const wxRegEx& variable = VariableReference();
    for (int substitutions = 0; substitutions < kMaxSubstitutions && variable.Matches(W); ++substitutions) {
        wxString name = variable.GetMatch(W, 1);
        wxString value;
        if (name.StartsWith("env.")) {
            wxString envName = name.Mid(4);
            if (dom.IsProtectingWindows()) envName.MakeUpper();
            if (!dom.EnvGet(envName, value)) {
                if (report) {
                    m_ruleWarning = true;
                    dom.DoAgentEventWrite(8003, "%d|%s|%s", ruleId, ruleText, OrvCore::ReplaceBars(envName));
                }
                return false;
            }
        }
        value.Replace("\\", "\\\\");
        value.Replace("&", "\\&");
        wxString replaced = W;
        variable.ReplaceFirst(&replaced, value);
        W = replaced;
    }

    const wxPathFormat host = CIntegrityScanThread::GetPathFormat(dom);
    const wxString S = wxFileName::GetPathSeparator(host);
    const wxString volumeSeparator = wxFileName::GetVolumeSeparator(host);
    auto invalid = [&]() {
        if (report) {
            m_ruleWarning = true;
            dom.DoAgentEventWrite(8004, "%d|%s|%s", ruleId, ruleText, baseText.empty() ? wxString(" ") : baseText);
        }
        return false;
    };

    wxFileName path = wxFileName::DirName(W, host);
    const bool network = host == wxPATH_DOS && W.StartsWith("\\\\");
    if (validate) {
        if (W.empty()) return invalid();
        wxFileName resolved(path);
        if (!resolved.Normalize(wxPATH_NORM_DOTS, wxString(), host)) return invalid();
        if (!volumeSeparator.empty() && W.Freq(volumeSeparator[0]) > 1) return invalid();
        if (!path.IsAbsolute(host)) return invalid();
        if (network && W.Mid(2).Contains(volumeSeparator)) return invalid();
    }

    // Walk the components: the search base takes them up to the first one with a wildcard.
    wxString A;
    wxFileName B;
    const wxString volume = path.GetVolume();
    if (!volume.empty()) {
        A = network ? "\\\\" + volume : volume + volumeSeparator;
        B = wxFileName::DirName(A + S, host);
    } else {
        A = S;
        B = wxFileName::DirName(S, host);
    }
    bool wildcardSeen = false;
    for (const wxString& K : path.GetDirs()) {
        if (K.empty()) continue;
        if (!A.empty() && !A.EndsWith(S)) A += S;
        A += K;
        if (WildcardTest().Matches(K)) {
            wildcardSeen = true;
            continue;
        }
        if (validate && !volumeSeparator.empty() && K.EndsWith(volumeSeparator)) {
            if (B.GetDirCount() > 0) return invalid();
            B = wxFileName::DirName(K + S, host);
            continue;
        }
        if (wildcardSeen) return invalid();  // a plain component may not follow a wildcard component
        if (K == "..") {
            if (validate && B.GetDirCount() == 0) return invalid();
            if (B.GetDirCount() > 0) B.RemoveLastDir();
            continue;
        }
        if (K != ".") B.AppendDir(K);
    }

    wxFileName longForm(B);
    longForm.Normalize(wxPATH_NORM_LONG, wxString(), host);
    wxString T = longForm.GetPath(wxPATH_GET_VOLUME, host);
    if (T.empty()) T = volume.empty() ? S : A.Left(A.Find(S) >= 0 ? A.Find(S) + 1 : A.length());
    if (T.length() > 1 && T.EndsWith(S) && !(host == wxPATH_DOS && T.EndsWith(volumeSeparator + S)))
        T.RemoveLast();
    if (validate && !wxFileName::IsCaseSensitive(host)) {
        T.MakeLower();
        A.MakeLower();
    }
    setSearchBase(T);
    if (wildcardSeen) setRegEx(PatternToRegEx(A, host, true, true));
    return true;
}

}  // namespace OrvPluginIm
