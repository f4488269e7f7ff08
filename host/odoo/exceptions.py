"""The exceptions the ORM raises, as in Odoo."""


class UserError(Exception):
    """An error the user can act on."""

    def __init__(self, message):
        super().__init__(message)

    @property
    def name(self):
        return self.args[0]


class RedirectWarning(UserError):
    pass


class AccessError(UserError):
    """Access rights refuse the operation."""


class MissingError(UserError):
    """The record does not exist or has been deleted."""


class ValidationError(UserError):
    """A constraint is not satisfied."""


class AccessDenied(UserError):
    def __init__(self, message="Access Denied"):
        super().__init__(message)
