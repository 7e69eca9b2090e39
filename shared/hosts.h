#pragma once
// The platform's host names and the addresses on them that more than one window opens. The
// compiled-in defaults live here; static.ini, section "hosts" (keys portal, game, pay,
// forum, cs; a host with an optional ":port"), may override each (app/static_ini.h).
#include <string>

namespace shared {

struct Hosts {
    std::string portal;  // the platform portal: launcher page, account page, customer service, heartbeat
    std::string game;    // the game site (official site)
    std::string pay;     // the payment site
    std::string forum;   // the forum site
    std::string cs;      // the customer-service chat server
};

const Hosts& DefaultHosts();
// A host name (letters, digits, '-', '.'; or an IPv4 address) with an optional port
// 1..65535.
bool IsValidHost(const std::string& hostAndPort);
// "http://" + host + pathAndQuery.
std::string HttpAddress(const std::string& host, const std::string& pathAndQuery);

// The addresses the launcher's link buttons open in the default browser; the payment site
// is also where the game window's payment button goes while no payment page was asked for.
std::string OfficialSiteUrl(const Hosts& h);
std::string PaymentUrl(const Hosts& h);
std::string ForumUrl(const Hosts& h);
std::string ServiceUrl(const Hosts& h);

}  // namespace shared
