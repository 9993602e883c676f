#include "editor/win32/droptarget.h"

#include "editor/win32/text.h"

namespace win32 {

std::vector<std::string> CDropTarget::pathsOf(HDROP drop)
{
    std::vector<std::string> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        DragQueryFileW(drop, i, path.data(), length + 1);
        path.resize(length);
        paths.push_back(narrow(path));
    }
    return paths;
}

std::vector<std::string> CDropTarget::pathsOf(IDataObject* data)
{
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (data == nullptr || FAILED(data->GetData(&format, &medium))) return {};
    std::vector<std::string> paths;
    if (auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal)); drop != nullptr) {
        paths = pathsOf(drop);
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return paths;
}

HRESULT CDropTarget::QueryInterface(REFIID id, void** object)
{
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CDropTarget::Release()
{
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

POINT CDropTarget::clientPoint(POINTL at) const
{
    POINT client{at.x, at.y};
    ScreenToClient(m_window, &client);
    return client;
}

DWORD CDropTarget::effectAt(POINTL at)
{
    if (m_paths.empty()) return DROPEFFECT_NONE;
    const DropTarget target = m_handlers.hover(m_paths, clientPoint(at));
    return target.kind == DropTarget::Kind::bankFile || target.rowCount > 0 ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

HRESULT CDropTarget::DragEnter(IDataObject* data, DWORD /*keys*/, POINTL at, DWORD* effect)
{
    m_paths = pathsOf(data);
    *effect = effectAt(at);
    return S_OK;
}

HRESULT CDropTarget::DragOver(DWORD /*keys*/, POINTL at, DWORD* effect)
{
    *effect = effectAt(at);
    return S_OK;
}

HRESULT CDropTarget::DragLeave()
{
    m_paths.clear();
    m_handlers.leave();
    return S_OK;
}

HRESULT CDropTarget::Drop(IDataObject* data, DWORD /*keys*/, POINTL at, DWORD* effect)
{
    std::vector<std::string> paths = pathsOf(data);
    m_paths.clear();
    m_handlers.leave();
    *effect = DROPEFFECT_NONE;
    if (paths.empty()) return S_OK;
    *effect = DROPEFFECT_COPY;
    m_handlers.drop(std::move(paths), clientPoint(at));
    return S_OK;
}

} // namespace win32
