#pragma once
#include "Platform.h"

#include <memory>

namespace parlet {

// Owns the real implementation of every platform service for this machine.
class RealPlatform final {
  public:
    RealPlatform();
    ~RealPlatform();
    RealPlatform(const RealPlatform &) = delete;
    RealPlatform &operator=(const RealPlatform &) = delete;

    Platform &platform() { return *m_platform; }

  private:
    struct Services;
    std::unique_ptr<Services> m_services;
    std::unique_ptr<Platform> m_platform;
};

} // namespace parlet
