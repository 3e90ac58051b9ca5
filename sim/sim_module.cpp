// PLACEHOLDER: replaced by its owner in this session.
