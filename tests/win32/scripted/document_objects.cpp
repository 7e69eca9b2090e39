// The scripted control's document (scripted_internal.h): IHTMLDocument2 over the page that
// was loaded, its element collections and elements, as the document walk uses them; and the
// frames that the events name. Each object counts its references (g_live, g_overReleased).
#include "scripted_internal.h"

#include <cwctype>
#include <initializer_list>

namespace scripted {

namespace {

struct ElementObject {
    IHTMLElement face;
    std::atomic<long> refs{1};
    Element data;
};
struct CollectionObject {
    IHTMLElementCollection face;
    std::atomic<long> refs{1};
    std::vector<Element> items;
};
struct DocumentObject {
    IHTMLDocument2 face;
    std::atomic<long> refs{1};
    std::shared_ptr<const Page> page;
};

HRESULT AnswerIface(void* face, REFIID riid, std::initializer_list<const IID*> iids, void** ppv,
                    ULONG(STDMETHODCALLTYPE* addRef)(void*)) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const IID* iid : iids)
        if (IsEqualIID(riid, *iid)) {
            *ppv = face;
            addRef(face);
            return S_OK;
        }
    return E_NOINTERFACE;
}

template <class Object, class Face>
Object* ObjectOf(Face* face) {
    return reinterpret_cast<Object*>(face);  // the face is each object's first member
}

IHTMLElementVtbl g_elementTable;
IHTMLElementCollectionVtbl g_collectionTable;
IHTMLDocument2Vtbl g_documentTable;

ULONG STDMETHODCALLTYPE ElementAddRef(void* f) {
    return ++ObjectOf<ElementObject>(static_cast<IHTMLElement*>(f))->refs;
}
ULONG STDMETHODCALLTYPE CollectionAddRef(void* f) {
    return ++ObjectOf<CollectionObject>(static_cast<IHTMLElementCollection*>(f))->refs;
}
ULONG STDMETHODCALLTYPE DocumentAddRef(void* f) {
    return ++ObjectOf<DocumentObject>(static_cast<IHTMLDocument2*>(f))->refs;
}

IDispatch* NewElement(const Element& e) {
    auto* o = new ElementObject;
    o->face.lpVtbl = &g_elementTable;
    o->data = e;
    ++g_live;
    return reinterpret_cast<IDispatch*>(&o->face);
}
IDispatch* NewCollection(std::vector<Element> items) {
    auto* o = new CollectionObject;
    o->face.lpVtbl = &g_collectionTable;
    o->items = std::move(items);
    ++g_live;
    return reinterpret_cast<IDispatch*>(&o->face);
}

// A frame of a page, as the events name it: an object of its own (not the control).
struct FrameObject {
    IDispatch face;
    std::atomic<long> refs{1};
};
IDispatchVtbl g_frameTable;
ULONG STDMETHODCALLTYPE FrameAddRef(void* f) { return ++ObjectOf<FrameObject>(static_cast<IDispatch*>(f))->refs; }

}  // namespace

void MakeDocumentTables() {
    FillNotImpl(g_elementTable);
    g_elementTable.QueryInterface = [](IHTMLElement* This, REFIID riid, void** ppv) -> HRESULT {
        return AnswerIface(This, riid, {&IID_IUnknown, &IID_IDispatch, &IID_IHTMLElement}, ppv, ElementAddRef);
    };
    g_elementTable.AddRef = [](IHTMLElement* This) -> ULONG { return ElementAddRef(This); };
    g_elementTable.Release = [](IHTMLElement* This) -> ULONG { return ReleaseObject(ObjectOf<ElementObject>(This)); };
    g_elementTable.get_id = [](IHTMLElement* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Bstr(ObjectOf<ElementObject>(This)->data.id);
        return S_OK;
    };
    g_elementTable.get_innerText = [](IHTMLElement* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        const Element& e = ObjectOf<ElementObject>(This)->data;
        Log(0, "read " + Narrow(e.tag) + "#" + Narrow(e.id) + " " + Narrow(e.text));
        *out = Bstr(e.text);
        return S_OK;
    };
    g_elementTable.get_tagName = [](IHTMLElement* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        std::wstring upper = ObjectOf<ElementObject>(This)->data.tag;
        for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
        *out = Bstr(upper);
        return S_OK;
    };

    FillNotImpl(g_collectionTable);
    g_collectionTable.QueryInterface = [](IHTMLElementCollection* This, REFIID riid, void** ppv) -> HRESULT {
        return AnswerIface(This, riid, {&IID_IUnknown, &IID_IDispatch, &IID_IHTMLElementCollection}, ppv,
                           CollectionAddRef);
    };
    g_collectionTable.AddRef = [](IHTMLElementCollection* This) -> ULONG { return CollectionAddRef(This); };
    g_collectionTable.Release = [](IHTMLElementCollection* This) -> ULONG {
        return ReleaseObject(ObjectOf<CollectionObject>(This));
    };
    g_collectionTable.get_length = [](IHTMLElementCollection* This, LONG* n) -> HRESULT {
        if (!n) return E_POINTER;
        *n = static_cast<LONG>(ObjectOf<CollectionObject>(This)->items.size());
        return S_OK;
    };
    g_collectionTable.item = [](IHTMLElementCollection* This, VARIANT name, VARIANT, IDispatch** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = nullptr;
        const auto& items = ObjectOf<CollectionObject>(This)->items;
        if (name.vt != VT_I4 || name.lVal < 0 || static_cast<size_t>(name.lVal) >= items.size()) return S_OK;
        *out = NewElement(items[name.lVal]);
        return S_OK;
    };
    g_collectionTable.tags = [](IHTMLElementCollection* This, VARIANT tag, IDispatch** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (tag.vt != VT_BSTR || !tag.bstrVal) return E_INVALIDARG;
        const std::wstring want = Lower(tag.bstrVal);
        std::vector<Element> found;
        for (const Element& e : ObjectOf<CollectionObject>(This)->items)
            if (e.tag == want) found.push_back(e);
        *out = NewCollection(std::move(found));
        return S_OK;
    };

    FillNotImpl(g_documentTable);
    g_documentTable.QueryInterface = [](IHTMLDocument2* This, REFIID riid, void** ppv) -> HRESULT {
        return AnswerIface(This, riid, {&IID_IUnknown, &IID_IDispatch, &IID_IHTMLDocument, &IID_IHTMLDocument2}, ppv,
                           DocumentAddRef);
    };
    g_documentTable.AddRef = [](IHTMLDocument2* This) -> ULONG { return DocumentAddRef(This); };
    g_documentTable.Release = [](IHTMLDocument2* This) -> ULONG {
        return ReleaseObject(ObjectOf<DocumentObject>(This));
    };
    g_documentTable.get_all = [](IHTMLDocument2* This, IHTMLElementCollection** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = reinterpret_cast<IHTMLElementCollection*>(NewCollection(ObjectOf<DocumentObject>(This)->page->elements));
        return S_OK;
    };
    g_documentTable.get_title = [](IHTMLDocument2* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Bstr(ObjectOf<DocumentObject>(This)->page->title);
        return S_OK;
    };
}

IDispatch* NewDocument(std::shared_ptr<const Page> page) {
    auto* o = new DocumentObject;
    o->face.lpVtbl = &g_documentTable;
    o->page = std::move(page);
    ++g_live;
    return reinterpret_cast<IDispatch*>(&o->face);
}

IDispatch* NewFrame() {
    static bool made = [] {
        FillNotImpl(g_frameTable);
        g_frameTable.QueryInterface = [](IDispatch* This, REFIID riid, void** ppv) -> HRESULT {
            return AnswerIface(This, riid, {&IID_IUnknown, &IID_IDispatch}, ppv, FrameAddRef);
        };
        g_frameTable.AddRef = [](IDispatch* This) -> ULONG { return FrameAddRef(This); };
        g_frameTable.Release = [](IDispatch* This) -> ULONG { return ReleaseObject(ObjectOf<FrameObject>(This)); };
        return true;
    }();
    (void)made;
    auto* o = new FrameObject;
    o->face.lpVtbl = &g_frameTable;
    ++g_live;
    return &o->face;
}

}  // namespace scripted
