/* Resource and control ids of the Windows plug-in module: the PIPL resource, the question box
 * (template 1000) and the text prompt (template 172). Plain #defines so that both the resource
 * compiler and C++ read them. */
#ifndef SHIMMERLY_PLATFORM_WINDOWS_RESOURCE_IDS_H
#define SHIMMERLY_PLATFORM_WINDOWS_RESOURCE_IDS_H

#define SHIMMERLY_PIPL_ID 16000

/* Question box: up to three buttons and the question. */
#define SHIMMERLY_QUESTION_BOX_ID 1000
#define SHIMMERLY_QUESTION_FIRST 1  /* IDOK */
#define SHIMMERLY_QUESTION_SECOND 2 /* IDCANCEL: Escape and the close box answer with it */
#define SHIMMERLY_QUESTION_THIRD 10
#define SHIMMERLY_QUESTION_TEXT 11

/* Text prompt: a label and one edit field. */
#define SHIMMERLY_PROMPT_ID 172
#define SHIMMERLY_PROMPT_EDIT 1003
#define SHIMMERLY_PROMPT_LABEL 1004

#endif
