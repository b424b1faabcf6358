// The classes that each own a part of the remote tab, created by the tab and handed their widgets and what
// they need of it.
#include "remote/remoteframe.h"

using namespace skyhaul;

void TRemoteFrame::createParts()
{
    m_log = new RemoteLog(Logs, PageControl1, this);
}
