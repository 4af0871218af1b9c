/* Event delivery: a model of the event queue, the dispatch thread's hand-over
 * to the event window and the window's side of it:
 * - CEventInterface::RunEventDispatch, DeliverQueuedEvents (so/events/EventDispatch.cpp);
 * - QueueStatusUpdate, HandleCommand, FireEvent, ReleasePendingMessages and the
 *   destructor (so/events/EventInterface.cpp); record holders (so/events/OPOSEvent.{h,cpp});
 *   RemoveAll (so/events/ObjectCollection.cpp);
 * - Close, OnFinalRelease and COFreezeEvents (so/service/CashDrawer.{h,cpp}), with
 *   COPOSThread's Stop as so/events/models/worker_stop.pml checks it.
 * A change to any of these needs the same change here.
 *
 * Records 1..NREC are queued in that order by the status monitor. The Control
 * Object's thread (owner) pumps the window's messages and makes the calls an
 * application makes, also from inside an event handler. The queue's lock is
 * modelled by atomic steps. A timed wait may time out whenever nothing it
 * waits on is signalled. Not modelled: a handler that pumps messages itself.
 *
 * Checks: no invalid end state; a record is never used or released once freed;
 * fired at most once, in queue order, and never once Close has begun; every
 * record is freed in the end; whenever the whole system is idle and delivery
 * is not frozen, no record waits in the queue or in the window's message queue.
 */

#ifndef NREC
#define NREC 3
#endif
#ifndef MAXOPS
#define MAXOPS 2
#endif

chan q = [NREC] of { byte };       /* m_events, head first */
chan msgs = [NREC] of { byte };    /* the window's posted WM_COMMAND messages */

bool bStop, evStop, evWake;        /* the dispatch thread's COPOSThread */
bool alive;                        /* the dispatch thread has not ended */
bool frozen;                       /* m_bFrozen */
bool monStop, monEnded;            /* the status monitor's stop, reduced to what Close needs */
bool closed;                       /* Close has begun */

byte holders[NREC + 1];
bool freed[NREC + 1];
bool done[NREC + 1];               /* m_evDone (auto-reset) */
byte lastFired;                    /* ghost: the last record fired */
byte made;                         /* ghost: records queued so far */

inline Use(r) { assert(r >= 1 && r <= NREC && !freed[r]) }

inline Release(r) {
    d_step {
        Use(r);
        holders[r]--;
        if
        :: holders[r] == 0 -> freed[r] = true
        :: else
        fi
    }
}

/* The status monitor's QueueStatusUpdate calls. */
proctype monitor() {
    byte n = 1;
    do
    :: n <= NREC && !monStop ->
       holders[n] = 1;
       done[n] = false;
       atomic { q!n };
       made = n;
       evWake = true;
       n++
    :: monStop -> break
    :: n > NREC -> break
    od;
    monEnded = true
}

proctype dispatcher() {
    byte r;
    bool more;
    do
    :: bStop -> break
    :: else ->
       /* WaitForMultipleObjects({wake, stop request}, INFINITE); the stop request is manual-reset */
       atomic {
           if
           :: evWake -> evWake = false
           :: !evWake && evStop
           fi
       }
       if
       :: bStop -> break
       :: else
       fi;
       if
       :: frozen
       :: else ->
          /* DeliverQueuedEvents */
          do
          :: atomic {
                 if
                 :: empty(q) -> evWake = false; more = false
                 :: nempty(q) && (bStop || frozen) -> more = false
                 :: nempty(q) && !bStop && !frozen -> q?r; more = true
                 fi
             };
             if
             :: !more -> break
             :: else
             fi;
             Use(r);
             done[r] = false;
             holders[r]++;
             msgs!r;                                /* PostMessage */
             /* the hand-over: {m_evDone, stop request} with EVENT_HANDOVER_LIMIT_MS */
             if
             :: atomic { done[r] -> done[r] = false }
             :: evStop
             :: atomic { !done[r] && !evStop }      /* timed out: the record is given up */
             fi;
             Release(r);
             atomic {
                 if
                 :: nempty(q) -> evWake = true
                 :: empty(q) -> evWake = false
                 fi
             }
          od
       fi
    od;
    atomic {                                         /* RemoveAll under the lock */
        do
        :: q?r -> Release(r)
        :: empty(q) -> break
        od
    };
    alive = false
}

/* COPOSThread::Stop as StopEventDispatch calls it. */
inline StopDispatch() {
    if
    :: alive ->
       bStop = true;
       evStop = true;
       evWake = true;
       !alive;
       bStop = false;
       evStop = false
    :: else
    fi
}

inline Close() {
    closed = true;
    monStop = true;                                  /* StopStatusMonitor */
    monEnded;
    StopDispatch();
    do                                               /* ReleasePendingMessages */
    :: msgs?m -> Release(m)
    :: empty(msgs) -> break
    od
}

inline Freeze() {
    if
    :: frozen = true
    :: frozen = false; evWake = true
    fi
}

/* HandleCommand: FireEvent, then the message's holder is let go. The service
 * object holds a reference on itself across it, so a final release made inside
 * the handler happens after it, as at the end of owner(). */
inline Handle(r) {
    Use(r);
    if
    :: /* Invoke fails: done is not signalled, the hand-over times out */
       assert(!closed)
    :: /* Invoke succeeds; the handler may call back */
       assert(!closed && r > lastFired);
       lastFired = r;
       if
       :: ops < MAXOPS -> ops++; Freeze()
       :: ops < MAXOPS && !closed -> ops++; Close()
       :: skip
       fi;
       Use(r);
       done[r] = true
    fi;
    Release(r)
}

/* The Control Object's thread: it also owns the event window. */
active proctype owner() {
    byte r, ops;
    byte m;                                          /* Close's own: inlines share locals */
    alive = true;                                    /* OpenService starts the dispatch thread */
    run dispatcher();
    run monitor();
    do
    :: msgs?r -> Handle(r)
    :: ops < MAXOPS -> ops++; Freeze()
    :: ops < MAXOPS && !closed -> ops++; Close()
    :: timeout ->
       /* nothing can move: delivery must be held back, or finished */
       assert(frozen || closed || (empty(q) && empty(msgs)));
       break
    od;
    /* OnFinalRelease; ~CCashDrawer stops the monitor; then its members go */
    StopDispatch();
    monStop = true;
    monEnded;
    do
    :: msgs?r -> Release(r)                          /* ReleasePendingMessages */
    :: empty(msgs) -> break
    od;
    do
    :: q?r -> Release(r)                             /* ~CObjectCollection */
    :: empty(q) -> break
    od;
    r = 1;
    do
    :: r <= made -> assert(freed[r]); r++
    :: r > made -> break
    od
}
