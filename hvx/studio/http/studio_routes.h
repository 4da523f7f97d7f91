#pragma once

#include <cstddef>
#include <memory>

#include "hvx/studio/http/http_message.h"
#include "hvx/studio/http/studio_access.h"
#include "hvx/studio/studio_folder.h"
#include "hvx/studio/studio_session.h"

// What every handler works on.
struct StudioContext {
  std::unique_ptr<StudioAccess> access;
  PictureFolder folder;
  StudioSession session;
};

// The gate, from the request's head before any body is read: true when the
// request may go on, with the longest body it may bring in `maxBody`; false
// with the refusal in `response`, after which the connection closes.
bool admitStudioRequest(const StudioContext& context, const HttpRequest& head,
                        HttpResponse& response, std::size_t& maxBody);

// Answers a request the gate let in, its body read.
void answerStudioRequest(StudioContext& context, HttpRequest& request, HttpResponse& response);

// True when answering `request` may wait for a preview or a note to render:
// such answers have threads of their own, so that a burst of them holds none
// of the threads that answer everything else.
bool answerMayRender(const HttpRequest& request);

// The answer to a request that could not be read: 413 for a body too large,
// 400 for anything else.
void refuseUnreadable(HttpResponse& response, int status);
