#pragma once

class QWidget;

// Our forms place their widgets at fixed positions, sized for the texts they were drawn
// with; a longer translation would be cut off. Lets every label directly on the form that
// is too narrow for its text wrap, and where a label then needs more height, gives it that
// height, moves the widgets below it down and makes the form taller. The drawn sizes stay
// the least the form takes. Call it once the form's texts are set.
void growToText(QWidget& form);
