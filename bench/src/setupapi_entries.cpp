// The bench's SetupAPI and configuration-manager entry points, called by the
// hardware port. Plain cdecl functions; failures set the thread's last error
// as the real calls do.
#include <windows.h>
// windows.h first: the SetupAPI headers depend on it.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "bench/setupapi_tree.h"
#include "lumetra/sync.h"

namespace bench {
namespace {

struct PropertyChange {
  DWORD stateChange = 0;
  DWORD scope = 0;
  DWORD hwProfile = 0;
};

// A device information set: the nodes that were in the tree when it was
// built, and the class-install parameters set on its members.
struct DeviceSet {
  std::vector<int> nodes;
  std::map<int, PropertyChange> params;
};

lm::CriticalSection g_setsLock;
std::set<DeviceSet*> g_sets;

// The set behind a handle when it is live and holds the node; else null with
// the last error set.
DeviceSet* Member(void* handle, DWORD devInst) {
  lm::Lock lock(g_setsLock);
  auto* set = static_cast<DeviceSet*>(handle);
  if (!g_sets.count(set)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  for (int n : set->nodes)
    if (static_cast<DWORD>(n) == devInst) return set;
  SetLastError(ERROR_NO_SUCH_DEVINST);
  return nullptr;
}

bool CurrentNode(DWORD devInst, TreeNode* node) {
  if (!DeviceTree::Load().Node(static_cast<int>(devInst), node) || node->removed) {
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return false;
  }
  return true;
}

std::string FunctionName(DWORD function) {
  if (function == DIF_PROPERTYCHANGE) return "DIF_PROPERTYCHANGE";
  if (function == DIF_REMOVE) return "DIF_REMOVE";
  char name[32];
  std::snprintf(name, sizeof name, "DIF_0x%lX", static_cast<unsigned long>(function));
  return name;
}

void Record(IniText& ini, const std::string& call) {
  unsigned long count = ParseNumber(ini.Get("SetupCalls", "Count"), 0) + 1;
  ini.Set("SetupCalls", "Count", std::to_string(count));
  ini.Set("SetupCalls", "Call" + std::to_string(count), call);
}

void ApplyStateChange(IniText& ini, const std::string& section, const TreeNode& node,
                      DWORD stateChange) {
  ULONG status = node.status;
  ULONG problem = node.problem;
  if (stateChange == DICS_DISABLE) {
    status = (status | DN_HAS_PROBLEM) & ~static_cast<ULONG>(DN_STARTED);
    problem = CM_PROB_DISABLED;
  } else if (stateChange == DICS_ENABLE && problem == CM_PROB_DISABLED) {
    status = (status & ~static_cast<ULONG>(DN_HAS_PROBLEM)) | DN_STARTED;
    problem = 0;
  } else {
    return;
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
  ini.Set(section, "Status", text);
  ini.Set(section, "Problem", std::to_string(problem));
}

}  // namespace
}  // namespace bench

using namespace bench;

extern "C" __declspec(dllexport) void* BenchSetupGetClassDevs(int presentOnly) {
  DeviceTree tree = DeviceTree::Load();
  if (DWORD error = tree.GetClassDevsError()) {
    SetLastError(error);
    return nullptr;
  }
  auto* set = new DeviceSet;
  for (int n : tree.NodeNumbers()) {
    TreeNode node;
    if (!tree.Node(n, &node) || node.removed) continue;
    if (presentOnly && !node.present) continue;
    set->nodes.push_back(n);
  }
  lm::Lock lock(g_setsLock);
  g_sets.insert(set);
  return set;
}

extern "C" __declspec(dllexport) int BenchSetupEnumDevice(void* handle, DWORD index,
                                                          DWORD* devInst) {
  lm::Lock lock(g_setsLock);
  auto* set = static_cast<DeviceSet*>(handle);
  if (!g_sets.count(set) || !devInst) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (index >= set->nodes.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return 0;
  }
  *devInst = static_cast<DWORD>(set->nodes[index]);
  return 1;
}

extern "C" __declspec(dllexport) int BenchSetupGetProperty(void* handle, DWORD devInst,
                                                           DWORD property, DWORD* regType,
                                                           BYTE* buffer, DWORD size,
                                                           DWORD* required) {
  TreeNode node;
  if (!Member(handle, devInst) || !CurrentNode(devInst, &node)) return 0;
  if (node.propertyError) {
    SetLastError(node.propertyError);
    return 0;
  }
  std::string data;
  DWORD type = 0;
  if (property == SPDRP_HARDWAREID && node.hasHardwareIds) {
    for (const std::string& id : node.hardwareIds) data += id + '\0';
    data += '\0';
    type = REG_MULTI_SZ;
  } else if (property == SPDRP_SERVICE && node.hasService) {
    data = node.service + '\0';
    type = REG_SZ;
  } else {
    SetLastError(ERROR_INVALID_DATA);
    return 0;
  }
  if (required) *required = static_cast<DWORD>(data.size());
  if (regType) *regType = type;
  if (!buffer || size < data.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, data.data(), data.size());
  return 1;
}

extern "C" __declspec(dllexport) int BenchSetupSetPropertyChangeParams(void* handle, DWORD devInst,
                                                                       DWORD stateChange,
                                                                       DWORD scope,
                                                                       DWORD hwProfile) {
  TreeNode node;
  DeviceSet* set = Member(handle, devInst);
  if (!set || !CurrentNode(devInst, &node)) return 0;
  if (node.setParamsError) {
    SetLastError(node.setParamsError);
    return 0;
  }
  lm::Lock lock(g_setsLock);
  set->params[static_cast<int>(devInst)] = PropertyChange{stateChange, scope, hwProfile};
  return 1;
}

extern "C" __declspec(dllexport) int BenchSetupCallClassInstaller(DWORD function, void* handle,
                                                                  DWORD devInst) {
  TreeNode node;
  DeviceSet* set = Member(handle, devInst);
  if (!set || !CurrentNode(devInst, &node)) return 0;
  PropertyChange change;
  bool haveParams = false;
  {
    lm::Lock lock(g_setsLock);
    auto found = set->params.find(static_cast<int>(devInst));
    haveParams = found != set->params.end();
    if (haveParams) change = found->second;
  }
  DWORD error = node.classInstallerError;
  if (!error && function == DIF_PROPERTYCHANGE && !haveParams) error = ERROR_INVALID_PARAMETER;
  std::string call = FunctionName(function) + " " + NodeSection(node.number);
  if (function == DIF_PROPERTYCHANGE && haveParams)
    call += " StateChange=" + std::to_string(change.stateChange) +
            " Scope=" + std::to_string(change.scope) +
            " HwProfile=" + std::to_string(change.hwProfile);
  call += " Result=" + std::to_string(error);
  DeviceTree::Update([&](IniText& ini) {
    Record(ini, call);
    if (error) return;
    const std::string section = NodeSection(node.number);
    if (function == DIF_PROPERTYCHANGE) ApplyStateChange(ini, section, node, change.stateChange);
    if (function == DIF_REMOVE) {
      ini.Set(section, "Removed", "1");
      ini.Set(section, "Present", "0");
    }
  });
  if (error) {
    SetLastError(error);
    return 0;
  }
  return 1;
}

extern "C" __declspec(dllexport) int BenchSetupDestroyList(void* handle) {
  lm::Lock lock(g_setsLock);
  auto* set = static_cast<DeviceSet*>(handle);
  if (!g_sets.erase(set)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  delete set;
  return 1;
}

extern "C" __declspec(dllexport) DWORD
    BenchCmGetDevNodeStatus(DWORD devInst, ULONG* status, ULONG* problem) {
  TreeNode node;
  if (!DeviceTree::Load().Node(static_cast<int>(devInst), &node) || node.removed || !node.present)
    return CR_NO_SUCH_DEVINST;
  if (node.statusError) return node.statusError;
  *status = node.status;
  *problem = node.problem;
  return CR_SUCCESS;
}

extern "C" __declspec(dllexport) int BenchHostControllerOpens(const char* name) {
  return name && DeviceTree::Load().HostControllerOpens(name) ? 1 : 0;
}
