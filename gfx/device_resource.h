#pragma once

class GraphicsDevice;

// An object holding device-dependent resources; told before and after every device reset.
class DeviceResource {
 public:
  virtual ~DeviceResource() = default;
  virtual bool OnLostDevice(GraphicsDevice* device) = 0;
  virtual bool OnResetDevice(GraphicsDevice* device) = 0;
};
