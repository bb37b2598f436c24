#pragma once

#include "ApiFailure.hpp"

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace quorvel::service::http {

// The envelope every API answer carries: {"success","message","reason","data"}.
void sendData(httplib::Response &res, const nlohmann::json &data, int status = 200);
void sendFailure(httplib::Response &res, const ApiFailure &failure);
void sendJSON(httplib::Response &res, const nlohmann::json &body, int status = 200);
void sendPage(httplib::Response &res, const std::string &html, int status = 200);

std::string htmlEscape(const std::string &text);
// Leaves letters, digits and "-._~" as they are.
std::string percentEncode(const std::string &text);

// Cuts the TCP connection of this request before anything is answered.
void dropConnection(const httplib::Request &req);

} // namespace quorvel::service::http
