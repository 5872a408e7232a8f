-- The module as a plain lua5.4 shell loads it: require, namespace, classes,
-- statistics on a fresh load, argument errors and the miss cache.
local orv = require "orv"
assert(require "im" == true)
assert(require "im" == true)  -- a second require is harmless

local im = SLB.im
assert(type(im) == "table")
assert(im.ScanStatus.Idle.value == 4 and tostring(im.ScanStatus.Idle) == "CScanStatus::_ScanStatus.Idle")
assert(im.ImScanType.ImPseudoRealtime.value == 4)
assert(im.ScanStatus.Queued < im.ScanStatus.Idle)

-- Statistics of a freshly loaded library are four empty tables.
local a, b, c, d = im.ImThread.GetStats()
assert(next(a) == nil and next(b) == nil and next(c) == nil and next(d) == nil)

-- Settings through orv.Dom, and the on-change registry of that agent.
local dom = orv.Dom()
dom:Set("orp.im.test", 42)
assert(dom:Get("orp.im.test") == 42 and math.type(dom:Get("orp.im.test")) == "integer")
dom:Set("orp.im.flag", true)
assert(dom:TestAndSet("orp.im.flag", false) == true)
dom:ConditionRegister("orp.im.test.condition")
dom:ConditionRaise("orp.im.test.condition")
assert(dom:ConditionQuery("orp.im.test.condition") == 1)
assert(dom:ConditionQuery("never.registered") == nil)
assert(im.OnChange.CheckOnChange(dom) == false)
assert(im.OnChange.Change(dom, "/etc/passwd") == false)
local _, _, metrics = im.ImThread.GetStats()
assert(metrics.realtimeEventReceived == 1 and metrics.realtimeEventDroppedNoOnc == 1)

-- Argument errors are Lua errors with the plugin's messages.
local function fails(pattern, f, ...)
  local ok, err = pcall(f, ...)
  assert(not ok, "expected an error")
  assert(string.find(err, pattern, 1, true), err)
end
fails("orv.Dom object expected", im.DecryptDatabase_l, "dom", "k", "a", "b")
fails("orv.im.OnChange expected", im.OnChange.Change, {})
fails("orv.Dom object expected", im.OnChange.CheckOnChange, nil)
fails("integer expected", im.ImThread.SetInitialCount, "1")

-- The miss cache and its exclusion text.
im.ImThread.AddRTIMMiss("/opt/data/file", 1)
im.ImThread.AddRTIMMiss("/var/log/app/x.tmp", 3)
im.ImThread.AddRTIMMiss("/var/log/app/y.tmp")
assert(im.ImThread.GetRTIMExclusions() == "/opt/data/;/var/log/app/*.tmp,x.tmp", im.ImThread.GetRTIMExclusions())
local stats = im.ImThread.GetRTIMMissStats()
assert(stats["/var/log/app"].hitcount == 2 and stats["/var/log/app"]["x.tmp"] == 1)
im.ImThread.ClearRTIMMisses()
assert(im.ImThread.GetRTIMExclusions() == "")

-- A missing source returns -1 alone and creates nothing.
local tmp = os.getenv("ORV_TEST_TMP") or "/tmp"
os.execute("mkdir -p '" .. tmp .. "'")
local missing = tmp .. "/im_module_missing.db"
os.remove(missing)
local code, count = im.DecryptDatabase_l(dom, "aes256:key", missing, tmp .. "/im_module_out.db")
assert(code == -1 and count == nil)
assert(io.open(missing) == nil)
print("im module: ok")
