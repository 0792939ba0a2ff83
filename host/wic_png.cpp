#include "wic_png.h"
#include <wincodec.h>

namespace {

template <class T> void release(T *&p)
{
    if (p)
        p->Release();
    p = NULL;
}

}  // namespace

HRESULT write_png(const wchar_t *path, const BYTE *pixels, UINT width, UINT height, UINT stride)
{
    IWICImagingFactory *factory = NULL;
    IWICStream *stream = NULL;
    IWICBitmapEncoder *encoder = NULL;
    IWICBitmapFrameEncode *frame = NULL;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  (void **)&factory);
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(path, GENERIC_WRITE);
    bool file_created = SUCCEEDED(hr);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, NULL, &encoder);
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(&frame, NULL);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(NULL);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(width, height);
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    // The encoder answers with the nearest format it has; the pixels exist
    // in this one only.
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(height, stride, stride * height, const_cast<BYTE *>(pixels));
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    release(frame);
    release(encoder);
    release(stream);  // closes the file
    release(factory);
    if (FAILED(hr) && file_created)
        DeleteFileW(path);
    return hr;
}
