#pragma once

#include "editor/editorsession.h"
#include "editor/win32/win32.h"

#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

namespace win32 {

// Files dragged from Explorer over the window: while they hover, the window
// shows where they would land; dropped, they go to the window. The window
// registers it when OLE is there; otherwise WM_DROPFILES brings drops alone.
// COM interfaces have no virtual destructor: their objects delete themselves.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CDropTarget final : public IDropTarget {
public:
    struct Handlers {
        // The target at this point of the window's client area; the window lights it.
        std::function<DropTarget(const std::vector<std::string>& paths, POINT client)> hover;
        std::function<void()> leave;
        std::function<void(std::vector<std::string> paths, POINT client)> drop;
    };
    CDropTarget(HWND window, Handlers handlers) : m_window(window), m_handlers(std::move(handlers)) {}

    // Paths of the CF_HDROP files in the data; empty when it holds none.
    static std::vector<std::string> pathsOf(IDataObject* data);
    static std::vector<std::string> pathsOf(HDROP drop);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;

private:
    POINT clientPoint(POINTL at) const;
    DWORD effectAt(POINTL at);
    HWND m_window;
    Handlers m_handlers;
    ULONG m_references = 1;
    std::vector<std::string> m_paths;
};
#pragma GCC diagnostic pop

} // namespace win32
