#pragma once
// Which documents of a client page get the script bridge (window.external). The top-level
// document of a page always does; a frame inside it only when its address is of the same
// origin as the top-level document, or on one of the platform's hosts. A frame of any other
// site (an advertisement, a page a hostile site framed) gets no bridge, so that it cannot
// open client windows on addresses of its own.
#include <string>
#include <vector>

namespace fw {

// The platform's hosts ("name" or "name:port", as static.ini's hosts section has them) whose
// frames get the bridge inside any client page. Set once at start-up, on the UI thread.
void SetBridgeHosts(std::vector<std::string> hosts);

// Whether a frame whose document is at `frameUrl` gets the bridge inside a page whose
// top-level document is at `topUrl`; each may be an address or an origin as script
// serialises it ("http://host:port"). Only http and https frames pass, when they have the
// page's origin or a platform host's; an address that tells no origin (about:blank, data:)
// and an opaque origin ("null") never do (a back end that can ask the engine whether a frame
// has the page's origin lets those frames through itself). A refusal writes one line on
// standard error.
bool FrameMayUseBridge(const std::string& topUrl, const std::string& frameUrl);

// The rule itself, for a given host list (FrameMayUseBridge uses the list set above).
bool FrameMayUseBridge(const std::string& topUrl, const std::string& frameUrl, const std::vector<std::string>& hosts);

}  // namespace fw
