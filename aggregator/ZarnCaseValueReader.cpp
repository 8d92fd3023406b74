#include "ZarnCaseValueReader.h"

#include <cassert>

ZarnCaseValueReader::ZarnCaseValueReader(QUOR_InputCaseIterator& iterator, unsigned int index)
    : _caseValue(new CaseValue(iterator, index)) {}

ZarnCaseValueReader::~ZarnCaseValueReader() {
  delete _caseValue;
}

ZarnCaseValueReader& ZarnCaseValueReader::operator=(const ZarnCaseValueReader& rhs) {
  assert(rhs._caseValue && "&rhs._caseValue");
  if (this != &rhs) {
    *_caseValue = *rhs._caseValue;
    _valid = rhs._valid;
  }
  return *this;
}
