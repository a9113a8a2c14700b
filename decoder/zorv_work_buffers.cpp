// The thread's kept work buffers of ZORV runs (see zorv_work_buffers.h).
#include "zorv_work_buffers.h"

namespace {

ZorvWorkBuffers& thread_work_buffers()
{
    thread_local ZorvWorkBuffers buffers;
    return buffers;
}

}  // namespace

ZorvWorkBufferLease::ZorvWorkBufferLease()
{
    ZorvWorkBuffers& kept = thread_work_buffers();
    buffers_ = kept.in_use ? &own_ : &kept;
    buffers_->in_use = true;
}

ZorvWorkBufferLease::~ZorvWorkBufferLease()
{
    buffers_->in_use = false;
    for (kyn::ByteBuffer* buffer : {&buffers_->compressed, &buffers_->output}) {
        if (buffer->capacity() > kKeptWorkBuffer)
            *buffer = kyn::ByteBuffer();
    }
}
