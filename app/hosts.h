#pragma once
// The platform's host names: one place for the compiled-in defaults, overridable in
// static.ini, section "hosts" (keys portal, game, pay, forum, cs; a host with an optional
// ":port").
#include <string>

namespace app {

struct Hosts {
    std::string portal;  // the platform portal: launcher page, account page, customer service, heartbeat
    std::string game;    // the game site (official site)
    std::string pay;     // the payment site
    std::string forum;   // the forum site
    std::string cs;      // the customer-service chat server
};

const Hosts& DefaultHosts();
// The defaults with every valid override of section "hosts" of the INI file applied. An
// override that is not a host name (letters, digits, '-', '.'; or an IPv4 address) with an
// optional port 1..65535 is ignored.
Hosts ReadHosts(const std::string& iniPath);
class IniFile;
Hosts ReadHosts(const IniFile& ini);
bool IsValidHost(const std::string& hostAndPort);
// "http://" + host + pathAndQuery.
std::string HttpAddress(const std::string& host, const std::string& pathAndQuery);

}  // namespace app
