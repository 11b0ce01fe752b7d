// The FormHook on the form's own handler chain.
#include "present/ControlSubClass.h"

TControlSubClass::TControlSubClass(TForm* form, TForm::THookMethod handler)
    : FChain(form->Hooks()), FKey(form->Hooks().lock()->Add(std::move(handler))) {}

TControlSubClass::~TControlSubClass() {
    if (const auto chain = FChain.lock()) chain->Remove(FKey);
}
