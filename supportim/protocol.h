#pragma once
// The texts of the protocol with the customer-service server (described in im_client.h): what
// the library sends (the host it talks to, form values) and what it reads in the answers.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace supportim {

// True for a host name or IPv4 address (letters, digits, '-', '.') with an optional :port.
bool IsValidHost(const std::string& hostAndPort);
// Percent-encodes every byte but the unreserved ones.
std::string FormEncode(const std::string& bytes);

// A decimal number and nothing else (no sign, no blanks), within 64 bits.
bool ParseSeq(std::string_view s, uint64_t* out);
// "ok <instance>" on the first line of an answer: the instance, or "" when it is not one.
std::string InstanceOf(std::string_view body);
// The agent messages of a poll answer that are new: each line "m <seq>" whose seq is above
// `cursor`, which then becomes that seq (so the result rises strictly). Other lines are
// skipped.
std::vector<uint64_t> NewMessages(std::string_view body, uint64_t& cursor);

}  // namespace supportim
