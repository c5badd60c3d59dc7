// A picture's header, read before anything is decoded: any bytes are read
// within their bounds.
#include "feed/newspicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    NewsPicture::jpegLayout(bytes);
    return 0;
}
