// A Windows host includes <windows.h> (with all its macros) before our headers. This
// translation unit does the same with every header of the library, so a clash with a
// Windows macro fails the build; the test below calls the members such macros hit.
// http/TcpSocket.h is left out: it is the connection layer's own seam to the platform
// header and brings <winsock2.h> itself, which Windows wants before <windows.h>.
#include <windows.h>

#include "attrlist/MifError.h"
#include "attrlist/MifList.h"
#include "attrlist/WireBytes.h"
#include "http/HttpClient.h"
#include "http/HttpDate.h"
#include "http/HttpDownloader.h"
#include "http/HttpEncode.h"
#include "http/HttpText.h"
#include "http/HttpUrl.h"
#include "http/TcpConnection.h"
#include "net/KivIpAddr.h"
#include "profile/Profile.h"
#include "text/BoundedText.h"
#include "text/HexDigit.h"
#include "update/UpdateService.h"
#include "update/kivupdate.h"

#include <gtest/gtest.h>

namespace {

TEST(HeadersAfterWindowsH, MembersNamedLikeWindowsMacrosStayCallable) {
    uint8_t bytes[16] = {};
    MifList list;
    ASSERT_EQ(1, list.Attach(bytes, sizeof bytes, 6));
    uint32_t freeSpace = 0;
    EXPECT_EQ(1, list.GetFreeSpace(&freeSpace));
    EXPECT_EQ(10u, freeSpace);
}

} // namespace
