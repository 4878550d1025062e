// The base of the nine update states: Enter shows the state's texts, Execute
// does its work and names the next state.
#pragma once

enum UpdateStateId : int {
  STATE_INITIALIZE = 0,
  STATE_INSTALL_DRIVER = 1,
  STATE_USB_LISTEN = 2,
  STATE_USB_CONNECT = 3,
  STATE_UPDATE_POSSIBLE = 4,
  STATE_UPDATE_PROCESS = 5,
  STATE_INFO = 6,
  STATE_ERROR = 7,
  STATE_EXIT = 8
};

class UpdateState {
 public:
  virtual ~UpdateState() = default;
  virtual bool Enter() { return true; }
  virtual UpdateStateId Execute() = 0;
};
