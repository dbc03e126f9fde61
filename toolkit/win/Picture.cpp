#include "toolkit/win/Picture.h"

#include <wincodec.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tkwin {

namespace {

// Releases a COM interface when the scope ends.
template <typename Interface>
class Com {
public:
    Com() = default;
    ~Com()
    {
        if (pointer_)
            pointer_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    Interface** put() { return &pointer_; }
    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

private:
    Interface* pointer_ = nullptr;
};

std::string resourceName(const std::string& path)
{
    std::string name = path.substr(path.find_last_of('/') + 1);
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

} // namespace

HBITMAP loadPicture(const std::string& path, int width, int height, COLORREF background)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    const HMODULE module = ::GetModuleHandleA(nullptr);
    const HRSRC found = ::FindResourceA(module, resourceName(path).c_str(), RT_RCDATA);
    const HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = found ? ::SizeofResource(module, found) : 0;
    if (!bytes || size == 0)
        return nullptr;

    Com<IWICImagingFactory> factory;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    Com<IWICBitmapScaler> scaler;
    Com<IWICFormatConverter> converter;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.put()))) ||
        FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size)) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad, decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateBitmapScaler(scaler.put())) ||
        FAILED(scaler->Initialize(frame.get(), static_cast<UINT>(width), static_cast<UINT>(height),
                                  WICBitmapInterpolationModeFant)) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(scaler.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)))
        return nullptr;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down, as WIC hands the rows out
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!bitmap)
        return nullptr;
    const UINT stride = static_cast<UINT>(width) * 4;
    const UINT total = stride * static_cast<UINT>(height);
    if (FAILED(converter->CopyPixels(nullptr, stride, total, static_cast<BYTE*>(pixels)))) {
        ::DeleteObject(bitmap);
        return nullptr;
    }
    // A static control copies the pixels as they are: blend the transparent
    // parts with the background it sits on.
    auto* pixel = static_cast<BYTE*>(pixels);
    const BYTE back[3] = {GetBValue(background), GetGValue(background), GetRValue(background)};
    for (UINT at = 0; at < total; at += 4) {
        const unsigned uncovered = 255u - pixel[at + 3];
        for (int channel = 0; channel < 3; ++channel)
            pixel[at + static_cast<UINT>(channel)] = static_cast<BYTE>(
                std::min(255u, pixel[at + static_cast<UINT>(channel)] + back[channel] * uncovered / 255u));
        pixel[at + 3] = 255;
    }
    return bitmap;
}

} // namespace tkwin
