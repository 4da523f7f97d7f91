#pragma once

#include <httplib.h>

#include <memory>
#include <string>

#include "hvx/studio/http/studio_access.h"
#include "hvx/studio/studio_folder.h"
#include "hvx/studio/studio_session.h"

// What every handler works on.
struct StudioContext {
  std::unique_ptr<StudioAccess> access;
  PictureFolder folder;
  StudioSession session;
};

// Installs the gate (before any body is read) and every route.
void addStudioRoutes(httplib::Server& http, StudioContext& context);
