#include "screenshot.h"

#include <vector>

#include "testsupport/testdir.h"

bool SaveWindowPicture(HWND window, const std::string& fileName) {
  RECT area;
  if (!GetWindowRect(window, &area)) return false;
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  // Whatever the window shows now, frame and controls included: its window
  // DC reads back what was painted on it.
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
  HDC screen = GetWindowDC(window);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool painted = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != FALSE;
  SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up rows, as a BMP file keeps them
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<char> pixels(static_cast<size_t>(stride) * height);
  const int rows = GetDIBits(memory, bitmap, 0, height, pixels.data(),
                             reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, screen);
  if (!painted || rows != height) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  bytes.append(pixels.data(), pixels.size());
  return testsupport::WriteFile(testsupport::TestDir() + "\\..\\artifacts\\" + fileName, bytes);
}
