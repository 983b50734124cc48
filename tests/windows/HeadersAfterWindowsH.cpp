// A Windows host includes <windows.h> (all its macros) before our headers, as this file does
// with every library header: a clash with a Windows macro fails the build. http/TcpSocket.h
// brings <winsock2.h>, which must come before <windows.h>, and is left out.
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

TEST(HeadersAfterWindowsH, MembersNamedLikeWindowsMacrosStayCallable) {
    uint8_t bytes[16] = {};
    MifList list;
    ASSERT_EQ(1, list.Attach(bytes, sizeof bytes, 6));
    uint32_t freeSpace = 0;
    EXPECT_EQ(1, list.GetFreeSpace(&freeSpace));
    EXPECT_EQ(10u, freeSpace);
}
