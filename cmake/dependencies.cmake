# Libraries used by single folders. Each folder's issue adds its own lines here.
