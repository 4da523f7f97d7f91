#pragma once

#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include "hvx/studio/http/http_message.h"

using RequestParser = boost::beast::http::request_parser<boost::beast::http::string_body>;

// Readies `parser` for one request: a head of at most 16 KiB, a body of no
// limit yet (the gate sets it from the head, before a byte of it is read).
void prepareRequestParser(RequestParser& parser);

// The parsed head as the routes see it: method, path and query, every
// header line in order. No body yet.
HttpRequest requestHead(const RequestParser& parser);
