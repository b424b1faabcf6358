#pragma once

// Script steps the transfer layer's scripted-server tests share.
#include "tests/support/scriptedserver.h"

namespace skyhaul::test {

/// A logon of user "u" with password "p" and the binary type a session sets after it, then `rest`.
inline Script withLogon(const Script& rest)
{
    using namespace script;
    Script steps{reply("220 Scripted"),    expect("USER u"), reply("331 Password?"),
                 expect("PASS p"),         reply("230 Hi"),  expect("FEAT"),
                 reply("502 No features"), expect("TYPE I"), reply("200 Binary")};
    return steps + rest;
}

/// The steps of one folder listing: CWD, then LIST of what `lines` hold.
inline Script listing(const QByteArray& path, const QByteArray& lines)
{
    using namespace script;
    return {expect("CWD " + path), reply("250 Ok"), expect("PASV"),  pasv(),      expect("LIST"),
            reply("150 Here"),     acceptData(),    sendData(lines), closeData(), reply("226 Done")};
}

} // namespace skyhaul::test
