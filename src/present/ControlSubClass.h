// The FormHook: a view's handler hooked into its form's chain of message handlers.
#pragma once

#include <memory>

#include "toolkit/Form.h"

// Installing it puts the handler in front of the form's chain; the handler passes a message on
// through the previous one it is given. Freeing it takes the handler out again, in any order.
class TControlSubClass {
  public:
    TControlSubClass(TForm* form, TForm::THookMethod handler);
    ~TControlSubClass(); // nothing when the form, and its chain, went first
    TControlSubClass(const TControlSubClass&) = delete;
    TControlSubClass& operator=(const TControlSubClass&) = delete;

  private:
    std::weak_ptr<TForm::THookChain> FChain;
    int FKey;
};
