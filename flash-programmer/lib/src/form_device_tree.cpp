// The form's device tree: the devices the device-control flows show.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "form_binprog.h"
#include "tessaro/device_list.h"
#include "tessaro/text_utils.h"
#include "tessaro/utilities.h"

namespace tessaro {
namespace {

std::string Hex4(uint16_t v) { return FormatText("%4.4X", {v}); }

HTREEITEM AddTreeItem(HWND tree, HTREEITEM parent, const std::string& text, int image,
                      int selected) {
  TVINSERTSTRUCTA item{};
  item.hParent = parent;
  item.hInsertAfter = TVI_LAST;
  item.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  item.item.pszText = const_cast<char*>(text.c_str());
  item.item.iImage = image;
  item.item.iSelectedImage = selected;
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void AddDeviceItems(HWND tree, HTREEITEM parent, const std::string& root, const DeviceIdentity& d) {
  HTREEITEM top = AddTreeItem(tree, parent, root, 0, 2);
  AddTreeItem(tree, top, "VID=0x" + Hex4(d.vid), 1, 1);
  AddTreeItem(tree, top, "PID=0x" + Hex4(d.pid), 1, 1);
  AddTreeItem(tree, top, "Manufacturer=" + d.manufacturer, 1, 1);
  AddTreeItem(tree, top, "Product Name=" + d.product, 1, 1);
  AddTreeItem(tree, top, "Serial Number=" + d.serial, 1, 1);
  SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(top));
}

void ClearTree(HWND tree) {
  if (tree) SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

// Replaces the tree with one device under "caption \"product\"".
void ShowIdentityInTree(const std::string& caption, const DeviceIdentity& identity, HWND tree) {
  if (!tree) return;
  ClearTree(tree);
  AddDeviceItems(tree, TVI_ROOT, FormatText("%s \"%s\"", {caption, identity.product}), identity);
}

// The bus as it is now, listed afresh, every device under the list's root.
void RefreshDeviceTree(HWND tree) {
  if (!tree) return;
  ClearTree(tree);
  TDeviceList list;
  std::string root =
      FormatText("DeviceList (%s): %d devices", {DateTimeText(LocalNow()), list.Count()});
  HTREEITEM top = AddTreeItem(tree, TVI_ROOT, root, 6, 4);
  for (int i = 0; i < list.Count(); ++i) {
    TDeviceInfo* d = list.GetDevice(i);
    DeviceIdentity identity{d->VID, d->PID, d->Product ? d->Product : "",
                            d->Manufacturer ? d->Manufacturer : "",
                            d->SerialNumber ? d->SerialNumber : ""};
    AddDeviceItems(tree, top, FormatText("dev no.%d \"%s\"", {i, d->Product}), identity);
  }
  if (list.Count() > 0) SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(top));
  SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(top));
}

}  // namespace

void TFormBinProg::DevicesCleared() { ClearTree(Control(IDC_TV_USB_DEV)); }

void TFormBinProg::DeviceShown(const std::string& caption, const DeviceIdentity& identity) {
  ShowIdentityInTree(caption, identity, Control(IDC_TV_USB_DEV));
}

void TFormBinProg::BusShown() { RefreshDeviceTree(Control(IDC_TV_USB_DEV)); }

}  // namespace tessaro
