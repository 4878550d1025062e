// The bench's SetupAPI and configuration-manager operations of the port's
// backend record. Failures set the thread's last error as the real calls do.
#include "setupapi_entries.h"

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

bool ValidDevice(const SP_DEVINFO_DATA* device) {
  if (device && device->cbSize == sizeof(SP_DEVINFO_DATA)) return true;
  SetLastError(ERROR_INVALID_USER_BUFFER);
  return false;
}

}  // namespace

// A set handle is the bench's own pointer; a device is its node number,
// carried in DevInst.
HDEVINFO SetupGetAllClassDevices(BOOL presentOnly) {
  DeviceTree tree = DeviceTree::Load();
  if (DWORD error = tree.GetClassDevsError()) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
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

BOOL SetupEnumDeviceInfo(HDEVINFO handle, DWORD index, SP_DEVINFO_DATA* device) {
  if (!ValidDevice(device)) return FALSE;
  lm::Lock lock(g_setsLock);
  auto* set = static_cast<DeviceSet*>(handle);
  if (!g_sets.count(set)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (index >= set->nodes.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  device->ClassGuid = GUID{};
  device->DevInst = static_cast<DWORD>(set->nodes[index]);
  device->Reserved = 0;
  return TRUE;
}

BOOL SetupGetDeviceRegistryProperty(HDEVINFO handle, SP_DEVINFO_DATA* device, DWORD property,
                                    DWORD* regType, BYTE* buffer, DWORD size, DWORD* required) {
  TreeNode node;
  if (!ValidDevice(device)) return FALSE;
  if (!Member(handle, device->DevInst) || !CurrentNode(device->DevInst, &node)) return FALSE;
  if (node.propertyError) {
    SetLastError(node.propertyError);
    return FALSE;
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
    return FALSE;
  }
  if (required) *required = static_cast<DWORD>(data.size());
  if (regType) *regType = type;
  if (!buffer || size < data.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, data.data(), data.size());
  return TRUE;
}

BOOL SetupSetClassInstallParams(HDEVINFO handle, SP_DEVINFO_DATA* device,
                                SP_CLASSINSTALL_HEADER* params, DWORD size) {
  if (!ValidDevice(device)) return FALSE;
  if (!params || size != sizeof(SP_PROPCHANGE_PARAMS) ||
      params->cbSize != sizeof(SP_CLASSINSTALL_HEADER) ||
      params->InstallFunction != DIF_PROPERTYCHANGE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* change = reinterpret_cast<const SP_PROPCHANGE_PARAMS*>(params);
  TreeNode node;
  DeviceSet* set = Member(handle, device->DevInst);
  if (!set || !CurrentNode(device->DevInst, &node)) return FALSE;
  if (node.setParamsError) {
    SetLastError(node.setParamsError);
    return FALSE;
  }
  lm::Lock lock(g_setsLock);
  set->params[static_cast<int>(device->DevInst)] =
      PropertyChange{change->StateChange, change->Scope, change->HwProfile};
  return TRUE;
}

BOOL SetupCallClassInstaller(DI_FUNCTION function, HDEVINFO handle, SP_DEVINFO_DATA* device) {
  if (!ValidDevice(device)) return FALSE;
  const DWORD devInst = device->DevInst;
  TreeNode node;
  DeviceSet* set = Member(handle, devInst);
  if (!set || !CurrentNode(devInst, &node)) return FALSE;
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
    return FALSE;
  }
  return TRUE;
}

BOOL SetupDestroyDeviceInfoList(HDEVINFO handle) {
  lm::Lock lock(g_setsLock);
  auto* set = static_cast<DeviceSet*>(handle);
  if (!g_sets.erase(set)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete set;
  return TRUE;
}

CONFIGRET CmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST devInst, ULONG flags) {
  if (!status || !problem) return CR_INVALID_POINTER;
  TreeNode node;
  if (!DeviceTree::Load().Node(static_cast<int>(devInst), &node) || node.removed || !node.present)
    return CR_NO_SUCH_DEVINST;
  if (node.statusError) return node.statusError;
  *status = node.status;
  *problem = node.problem;
  return CR_SUCCESS;
}

BOOL HostControllerOpens(const char* name) {
  return name && DeviceTree::Load().HostControllerOpens(name) ? TRUE : FALSE;
}

}  // namespace bench
