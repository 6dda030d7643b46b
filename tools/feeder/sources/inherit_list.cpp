#include "inherit_list.h"

#include <algorithm>

namespace {

const DWORD ATTRIBUTE_COUNT = 1;    // the handle list alone

} // namespace

InheritList::~InheritList()
{
    if (m_pList != NULL)
        DeleteProcThreadAttributeList(m_pList);
}

bool InheritList::Set(std::initializer_list<HANDLE> handles)
{
    // Windows refuses a list that names a handle twice.
    for (HANDLE h : handles)
        if (std::find(m_handles.begin(), m_handles.end(), h) == m_handles.end())
            m_handles.push_back(h);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(NULL, ATTRIBUTE_COUNT, 0, &size);
    m_storage.resize(size);
    LPPROC_THREAD_ATTRIBUTE_LIST list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
    if (!InitializeProcThreadAttributeList(list, ATTRIBUTE_COUNT, 0, &size))
        return false;
    m_pList = list;
    return UpdateProcThreadAttribute(m_pList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_handles.data(),
                                     m_handles.size() * sizeof(HANDLE), NULL, NULL) != FALSE;
}
