#include "ui/toolkit/window_map.h"

#include <mutex>
#include <unordered_map>

namespace ui {

namespace {

// Every window lives on the UI thread; the lock keeps a lookup from another thread harmless.
std::mutex g_windowMapLock;

std::unordered_map<HWND, DialogWrapper*>& Windows() {
    static std::unordered_map<HWND, DialogWrapper*> windows;
    return windows;
}

}  // namespace

namespace WindowMap {

void Add(HWND window, DialogWrapper* wrapper) {
    std::lock_guard<std::mutex> lock(g_windowMapLock);
    Windows()[window] = wrapper;
}

DialogWrapper* Find(HWND window) {
    std::lock_guard<std::mutex> lock(g_windowMapLock);
    auto found = Windows().find(window);
    return found == Windows().end() ? nullptr : found->second;
}

void Remove(HWND window) {
    std::lock_guard<std::mutex> lock(g_windowMapLock);
    Windows().erase(window);
}

}  // namespace WindowMap

}  // namespace ui
